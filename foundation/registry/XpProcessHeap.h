#pragma once
// The start-up set-up of the process that the program does first: the C locale becomes
// the user's default (so that ANSI text follows the user's code page), then the heap is
// prepared (platform/PlatformHeap.h).

void InitProcessHeap();

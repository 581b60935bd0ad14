// Symbolic links and a link-planting attacker for the tests that check that the file
// layer is never led out of its own folders.
//
// Linux makes links itself. Wine's own link calls make nothing (CreateSymbolicLinkW
// answers success and creates no link), so under Wine a Linux process does it on the same
// Unix folder: perl, which every Debian system carries, started through Wine (which runs
// Unix programs directly). On Windows itself such tests are skipped.
//
// No <windows.h> here, for the reason given in TestSupport.h.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrow_test {

// The Unix name of a path, for the Linux programs that the tests start: under Wine the
// name Wine gives it (empty when not under Wine); on Linux the path itself.
std::string UnixPath(const std::filesystem::path& path);

// Whether this host can plant links for the tests.
bool CanMakeLinks();

// Makes link, a symbolic link that leads to target; false when it could not be made.
bool MakeLink(const std::filesystem::path& target, const std::filesystem::path& link);

// Removes a tree without ever following a link in it. (Under Wine the library's own
// removal of a Unix link reaches its target, so leftovers of the link tests go through a
// Linux process.) Errors are ignored.
void RemoveTreeWithLinks(const std::filesystem::path& root);

// A second process, a perl script, that attacks the file layer until Stop or until its
// time is up, and reports how often it put a link in place.
class LinkAttacker {
public:
    ~LinkAttacker();
    LinkAttacker(const LinkAttacker&) = delete;
    LinkAttacker& operator=(const LinkAttacker&) = delete;

    bool Started() const { return m_started; }
    // Stops the process and waits for its end; the number of times it put a link in
    // place, or -1 when it never reported.
    long Stop();

protected:
    // Runs script with the arguments (paths already as Unix names) followed by the stop
    // file, the file it writes its count into, and the seconds; its files lie in `beside`.
    LinkAttacker(const char* script, const std::filesystem::path& beside, const std::vector<std::string>& arguments,
                 int seconds);

private:
    std::filesystem::path m_stop;
    std::filesystem::path m_done;
    bool m_started = false;
    bool m_stopped = false;
    long m_swaps = -1;
    std::intptr_t m_process = -1;
};

// Keeps replacing the folder `folder/name` by a symbolic link to `outside` and putting
// the folder back: it renames the folder away, makes the link in its place, removes the
// link and renames the folder back, over and over.
class FolderSwapper : public LinkAttacker {
public:
    FolderSwapper(const std::filesystem::path& folder, const std::string& name, const std::filesystem::path& outside,
                  int seconds);
};

// Keeps putting a symbolic link at `path` whenever nothing stands there, leading in turn
// to each of `targets`, and taking it away again a moment later.
class LinkPlanter : public LinkAttacker {
public:
    LinkPlanter(const std::filesystem::path& path, const std::vector<std::filesystem::path>& targets, int seconds);
};

}  // namespace kestrow_test

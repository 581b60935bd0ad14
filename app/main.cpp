// Kestrow: the network updater of the Vimbly photo and video browser.
int main() { return 0; }

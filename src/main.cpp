// KobalTix: the program starts here. The real game installs the SDL platform and runs the
// application; everything else lives in the game's windows.
int main() { return 0; }

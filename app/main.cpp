// tarvoline: the serial terminal for ViVaz boards.
#include <csignal>
#include <cstring>
#include <iostream>

#include "TarvolineApp.h"

int main(int argc, char** argv) {
    // The version is answered before anything of the window starts, so it needs no display:
    // "tarvoline 2.0.0", the program's name and the whole version, as tarvoline-cli and
    // vivaz-sim answer to -V and --version; -v is kept for those used to it.
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0 ||
            std::strcmp(argv[i], "-v") == 0) {
            std::cout << "tarvoline " << TARVOLINE_VERSION << "\n";
            return 0;
        }
    }
    // A capture file that grows past the user's file-size limit fails its write and stops the
    // capture with a message, as a full disk does; the signal would end the program instead.
    std::signal(SIGXFSZ, SIG_IGN);
    CTarvolineApp app(argc, argv);
    // A signal during start-up (say, while its port error shows) ends the program here.
    const bool run = app.InitInstance();
    if (app.Terminating()) return 0;
    if (!run) return app.ExitCode();  // the running instance's answer, when it had the request
    return app.exec();
}

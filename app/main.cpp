// tarvoline: the serial terminal for ViVaz boards.
#include "TarvolineApp.h"

int main(int argc, char** argv) {
    CTarvolineApp app(argc, argv);
    // A signal during start-up (say, while its port error shows) ends the program here.
    const bool run = app.InitInstance();
    if (app.Terminating()) return 0;
    if (!run) return app.ExitCode();  // 0 when a running instance took the request
    return app.exec();
}

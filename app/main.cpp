// tarvoline: the serial terminal for ViVaz boards.
#include "TarvolineApp.h"

int main(int argc, char** argv) {
    CTarvolineApp app(argc, argv);
    // A signal during start-up (say, while its port error shows) ends the program here.
    if (!app.InitInstance() || app.Terminating()) return 0;
    return app.exec();
}

// tarvoline: the serial terminal for ViVaz boards.
#include "TarvolineApp.h"

int main(int argc, char** argv) {
    CTarvolineApp app(argc, argv);
    if (!app.InitInstance()) return 0;
    return app.exec();
}

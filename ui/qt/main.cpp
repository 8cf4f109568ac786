// lumenta: the dimmer control panel's Linux program.
#include "ui/qt/lumenta_app.h"

int main(int argc, char** argv) {
    CLumentaApp app(argc, argv);
    return app.run();
}

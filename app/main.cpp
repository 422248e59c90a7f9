#include "VornaApplication.h"

int main(int argc, char** argv) {
    VornaApplication app(argc, argv);
    return app.run();
}

// Shows the notepad with the main help, for looking at it on screen (scripts/screenshot).
#include "notepad/helptexts.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    vorlan::ShowMainHelp();
    return app.exec();
}

#include <QApplication>

#include "ui/population_window.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // Names the menu entry that the window belongs to, so that desktops
    // (Wayland's in particular) show the window with that entry's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("population-generator"));
    ui::PopulationWindow window;
    window.show();
    return application.exec();
}

#include <QApplication>

#include "ui/population_window.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    ui::PopulationWindow window;
    window.show();
    return application.exec();
}

// The program's entry point: hands over to Main().
#include "app/Main.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    return Main(app);
}

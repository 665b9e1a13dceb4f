#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The main window is wired in here once it exists.
    return 0;
}

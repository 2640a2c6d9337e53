#include <QApplication>

// The least a Qt widget program does before it can answer anything: what the
// start-up of quillmark is measured against.
int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    return 0;
}

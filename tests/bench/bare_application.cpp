#include <QApplication>

#include <unistd.h>

// The least a Qt widget program does before it can answer anything: what the
// start-up of quillmark is measured against. One byte on standard output
// says that the application object stands, as the answer to
// "CreateInstance" does for quillmark.
int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    return ::write(STDOUT_FILENO, "\n", 1) == 1 ? 0 : 1;
}

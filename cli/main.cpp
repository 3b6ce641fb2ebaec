#include <QCoreApplication>

int cliMain(int argc, char** argv);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    return cliMain(argc, argv);
}

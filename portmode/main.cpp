// PortModeTool: the program file.
#include "Forms.h"
#include "PortModeTool.h"

int main(int argc, char** argv)
{
    TApplication application(argc, argv);
    return WinMain();
}

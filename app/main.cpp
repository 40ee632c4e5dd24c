// BrindlecotProject: the program file.
#include "BrindlecotProject.h"
#include "Forms.h"

int main(int argc, char** argv)
{
    TApplication application(argc, argv);
    return WinMain();
}

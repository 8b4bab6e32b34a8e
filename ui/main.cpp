#include "ui/WindowProgram.h"

int main(int argc, char* argv[])
{
    return glintmark::ui::runWindowProgram(argc, argv);
}

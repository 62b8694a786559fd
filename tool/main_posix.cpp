#include <iostream>

#include "tool/presets_tool.h"

int main(int argc, char** argv)
{
    ToolIo io{std::cin, std::cout, std::cerr};
    return runPresetsTool(std::vector<std::string>(argv + 1, argv + argc), io);
}

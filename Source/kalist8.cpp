#include "ProgramFiles.h"
#include "VCLUtils/IniFile.h"

#include <cstdio>

int main()
{
    if (!IsOnlyInstance()) {
        std::printf("Приложение КАЛИСТ-8\n уже работает.\n");
        return 0;
    }
    std::printf("%s\n%s\n%s\n", GetForm1Ini().FileName().c_str(), GetConfigIni().FileName().c_str(),
                GetCommIni().FileName().c_str());
    return 0;
}

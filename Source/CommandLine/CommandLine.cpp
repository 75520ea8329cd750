#include "CommandLine/CommandLine.h"

#include "ProgramFiles.h"

#include <ostream>
#include <string>

namespace {

// The file homes are those of this copy of the program: where it is
// installed decides whether it keeps its files beside itself.
void PrintHelp(std::ostream& out)
{
    const std::string exeDir = GetExeDir();
    const std::string dataDir = ChooseDataDir(exeDir);
    const std::string userDir = GetUserDataDir();
    const std::string configDir = GetUserConfigDir();
    out << "Использование: kalist8 [--help | --version]\n"
           "\n"
           "Сервисная программа прибора КАЛИСТ-8: опрос каналов по Modbus RTU через\n"
           "COM-порт, поиск приборов по адресам, корректировка нулевых показаний,\n"
           "загрузка архива измерений.\n"
           "\n"
           "Параметры:\n"
           "  -h, --help     эта справка\n"
           "      --version  версия программы\n"
           "\n"
           "Переменные окружения:\n"
           "  KALIST8_COM<n>   устройство порта COM<n> (n от 1 до 9),\n"
           "                   например KALIST8_COM1=/dev/ttyUSB0\n"
           "  XDG_DATA_HOME    каталог данных пользователя (иначе ~/.local/share)\n"
           "  XDG_CONFIG_HOME  каталог настроек пользователя (иначе ~/.config)\n"
           "  QT_QPA_PLATFORM  платформа Qt (например offscreen)\n"
           "\n"
           "Файлы пишутся в каталог программы, если в него можно писать (переносная\n"
           "папка), иначе в $XDG_DATA_HOME/kalist8 (~/.local/share/kalist8). У этой копии:\n"
           "  "
        << dataDir
        << "\n"
           "    form1.ini    окно, ширины столбцов, enable_console\n"
           "    config.ini   адрес прибора, приоритет потока опроса\n"
           "    comm.ini     порт и времена обмена\n"
           "    archive.bin, archive.txt  последний загруженный архив\n"
           "    Log/log.rar  журнал консоли за каждый запуск\n"
           "Справочник величин (vars.ini, units.ini, scales.ini) читается\n"
           "  из "
        << userDir << ", если файл там есть, иначе\n  из " << exeDir
        << "\n"
           "Номера и настройки портов (comports.ini, MyCommPortsSetings.ini):\n"
           "  "
        << configDir << "\n";
}

} // namespace

std::optional<int> HandleCommandLine(int argc, const char* const* argv, std::ostream& out, std::ostream& err)
{
    bool help = false, version = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--version") {
            version = true;
        } else {
            const bool option = arg.size() > 1 && arg[0] == '-';
            err << "kalist8: " << (option ? "неизвестный параметр" : "лишний аргумент") << " \"" << arg
                << "\"\nСправка: kalist8 --help\n";
            return 2;
        }
    }
    if (help)
        PrintHelp(out);
    else if (version)
        out << "kalist8 " KALIST8_VERSION "\n";
    else
        return std::nullopt;
    return 0;
}

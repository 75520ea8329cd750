// Measures what one Modbus exchange of the link costs against the line:
// wall time per exchange next to the time the line and the configured
// pauses need, and the processor time the link spends waiting. The exit
// status is 0 when an exchange takes no more than 2 ms over the budget.
//
//   kalist8-linkbench [exchanges] [registers]
//
// Port 1 must be mapped to a line an instrument answers on (KALIST8_COM1),
// and "comm.ini" beside this program holds the link's timings. The line is
// taken to be a pseudo-terminal: the request passes it at once and only the
// answer is paced at 9600 baud, so the budget leaves the request's bytes out.

#include "ComPort/RS232Modbus.h"
#include "ProgramFiles.h"
#include "VCLUtils/IniFile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

namespace {

double CpuSeconds()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    const int exchanges = argc > 1 ? std::atoi(argv[1]) : 200;
    const int registers = argc > 2 ? std::atoi(argv[2]) : 2;
    const double latencyMs = std::getenv("SIM_LATENCY_MS") ? std::atof(std::getenv("SIM_LATENCY_MS")) : 5;
    try {
        RS232ModbusT link;
        const my::IniFile& ini = GetCommIni();
        const int writeDelay = ini.ReadInteger("Трансфер", "Задержка_записи_мсек", 50);
        // A whole answer ends at its length and pays no silence; with the rule
        // off every answer waits for it.
        const int silentTime = ini.ReadBool("Трансфер", "конец_ответа_по_длине", true)
                                   ? 0
                                   : ini.ReadInteger("Трансфер", "длительность_ожидания_символа_приёма_мсек", 10);
        const uint8_t request[] = {0x00, 0x00, 0x00, static_cast<uint8_t>(registers)};
        const uint8_t* b;
        const uint8_t* e;
        link.Exchange(1, 3, request, request + 4, &b, &e); // connect outside the measurement

        const double cpu0 = CpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < exchanges; ++i)
            link.Exchange(1, 3, request, request + 4, &b, &e);
        const double wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
        const double cpuMs = (CpuSeconds() - cpu0) * 1000;

        // 10 bits a byte at 9600 baud; the instrument sees the request's end
        // after 3.5 characters of silence.
        const double charMs = 10.0 / 9600 * 1000;
        const int lineBytes = 5 + 2 * registers;
        const double lineMs = lineBytes * charMs;
        const double budgetMs = lineMs + 3.5 * charMs + writeDelay + latencyMs + silentTime;
        const double perExchange = wallMs / exchanges;
        std::printf("exchanges                 %d (read %d registers)\n", exchanges, registers);
        std::printf("line time                 %.2f ms (the answer, %d bytes at 9600 8N1)\n", lineMs, lineBytes);
        std::printf("request                   %.2f ms on a real line (8 bytes), not spent on a pseudo-terminal\n",
                    8 * charMs);
        std::printf("budget                    %.2f ms (line + request end %.2f + delay %d + latency %.1f + silence %d)\n",
                    budgetMs, 3.5 * charMs, writeDelay, latencyMs, silentTime);
        std::printf("measured per exchange     %.2f ms (%+.2f ms against the budget)\n", perExchange,
                    perExchange - budgetMs);
        std::printf("processor time            %.3f ms per exchange (%.2f %% of one core)\n", cpuMs / exchanges,
                    100.0 * cpuMs / wallMs);
        return perExchange <= budgetMs + 2 ? 0 : 1;
    } catch (const PMyExcpt& e) {
        std::fprintf(stderr, "%s\n", FormatExceptionChain(e.get()).c_str());
        return 2;
    }
}

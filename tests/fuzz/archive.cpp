// An archive block as the instrument might send it, decoded into
// "archive.bin" and "archive.txt" with the shipped catalogue.
//
// Input: a flag byte (bit 0: give every record the valid marker and a CRC
// that fits, so that the decoding behind those checks is reached; bit 1: the
// decimal comma), then the block, 9800 bytes from the instrument.

#include "FuzzSupport.h"

#include "ArchiveFiles.h"
#include "ComPort/RS232Modbus.h"
#include "DevSys/Catalogue.h"
#include "VCLUtils/Cp1251.h"

#include <vector>

namespace {

void SealRecords(std::vector<uint8_t>& block)
{
    for (size_t r = 0; r + ARCHIVE_RECORD_SIZE <= block.size(); r += ARCHIVE_RECORD_SIZE) {
        uint8_t* rec = block.data() + r;
        rec[0] = 0xA0;
        const uint16_t crc = ModbusCRC16(rec, rec + ARCHIVE_RECORD_SIZE - 2);
        rec[ARCHIVE_RECORD_SIZE - 2] = static_cast<uint8_t>(crc);
        rec[ARCHIVE_RECORD_SIZE - 1] = static_cast<uint8_t>(crc >> 8);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const ThisModule names(KALIST8_RESOURCES_DIR "/");
    fuzz::Input in(data, size);
    const uint8_t flags = in.Byte();
    const std::string bytes = in.Bytes(9800);
    std::vector<uint8_t> block(bytes.begin(), bytes.end());
    if (flags & 1)
        SealRecords(block);
    const std::string separator = flags & 2 ? "," : ".";

    size_t valid = 0;
    std::string line;
    for (size_t r = 0; r + ARCHIVE_RECORD_SIZE <= block.size(); r += ARCHIVE_RECORD_SIZE) {
        if (!ArchiveRecordLine(block.data() + r, names, separator, &line))
            continue;
        ++valid;
        fuzz::Check(line.find_first_of("\r\n") == std::string::npos, "a record line with a line break");
    }

    const std::string dir = fuzz::ScratchDir();
    const std::string textPath = SaveArchiveFiles(dir, block.data(), block.data() + block.size(), names, separator);
    fuzz::Check(textPath == dir + "archive.txt", "the text file's path");
    fuzz::Check(fuzz::ReadFile(dir + "archive.bin") == std::string(block.begin(), block.end()),
                "archive.bin is not the block");
    const std::string text = fuzz::ReadFile(textPath);
    size_t lines = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2))
        ++lines;
    fuzz::Check(lines == valid, "archive.txt holds another number of lines than valid records");
    fuzz::Check(text.empty() || text.compare(text.size() - 2, 2, "\r\n") == 0, "archive.txt ends inside a line");
    fuzz::Check(my::Utf8ToCp1251(my::Cp1251ToUtf8(text)) == text, "archive.txt is not Windows-1251 text");
    return 0;
}

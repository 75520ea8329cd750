#pragma once

#include "ComPort/WinCommTypes.h"

#include <cstdint>

// The 24 named fields of the line control block, by index: the index is the
// field's identity and its name is the INI key.
enum { DCB_FIELDS_COUNT = 24 };

const char* DCBFieldName(unsigned idx);
uint32_t GetDCBField(const DCB& dcb, unsigned idx);
// Stores the low bits of value that fit the field; other fields stay.
void SetDCBField(uint32_t value, DCB& dcb, unsigned idx);
// DCBlength or any named field differs; reserved fields are not compared.
bool DCBDiffers(const DCB& a, const DCB& b);

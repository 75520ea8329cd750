#pragma once

#include <bitset>
#include <cstdint>
#include <string>

// What the user types for instrument addresses: the address prompt and the
// address set of the search.

// Network addresses 0..255 as flags indexed by address.
typedef std::bitset<256> AddressFlags;

// "1-3 5 7-8": addresses and "-" ranges separated by white space. Reading
// stops at the first thing that is none of these and keeps what it marked;
// addresses above 255 and the address 0 are never marked.
AddressFlags ParseAddressSet(const std::string& text);
// Ascending, one blank apart, runs of two or more as "first-last".
std::string FormatAddressSet(const AddressFlags& flags);

// The instrument addresses the address prompt takes.
constexpr int kMinAddress = 1;
constexpr int kMaxAddress = 127;

// The address prompt reads the first word of what was entered.
std::string AddressWord(const std::string& entered);
// True, with the address, when word is a whole decimal number in
// [kMinAddress, kMaxAddress].
bool IsValidAddress(const std::string& word, int32_t& address);

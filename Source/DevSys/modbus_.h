#pragma once

#include "Excpt/MyExeption.h"

#include <cstdint>

// The instrument's commands on top of the engine's exchange: reading holding
// registers (function 3) and writing the command registers (function 0x16).
// They run on the worker, inside a task's DoTransfer().

DECLARE_MY_EXCEPTION_CLASS(MyTreskModbusException, MyExternalException);
DECLARE_MY_EXCEPTION_CLASS(MyTreskModbusCmd3hException, MyTreskModbusException);
DECLARE_MY_EXCEPTION_CLASS(MyTreskModbusCmd10hException, MyTreskModbusException);

// Reads count registers from firstReg; [*b, *e) gets their 2 * count bytes,
// inside the link's buffer (valid until the next exchange).
void ModbusCmd3h(uint8_t slave, uint16_t firstReg, int count, const uint8_t** b, const uint8_t** e);
uint16_t ReadRegisterWord(uint8_t slave, uint16_t reg);
// count BCD values from 2 * count registers at firstReg into out.
void ReadBcdValues(uint8_t slave, uint16_t firstReg, int count, double* out);
// Writes the command code and its BCD argument to the command registers.
void ModbusCmd10h(uint8_t slave, uint16_t cmd, const uint8_t* bcd);
// Refuses, before anything is sent, an argument the BCD format cannot carry.
void SendCommand(uint8_t slave, uint16_t cmd, double value);

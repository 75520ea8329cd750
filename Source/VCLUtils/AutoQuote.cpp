#include "VCLUtils/AutoQuote.h"

#include <iostream>

myIO::AutoQuote::AutoQuote(std::string name) : name_(std::move(name))
{
    std::cout << "<" << name_ << ">" << std::endl;
}

myIO::AutoQuote::~AutoQuote() { std::cout << "<\\" << name_ << ">" << std::endl; }

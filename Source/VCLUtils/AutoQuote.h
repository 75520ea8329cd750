#pragma once

#include <boost/noncopyable.hpp>

#include <string>

namespace myIO {

// Scope tracer: "<name>" on standard output when it starts, "<\name>" when it
// ends, each on a line of its own.
class AutoQuote : boost::noncopyable {
public:
    explicit AutoQuote(std::string name);
    ~AutoQuote();

private:
    const std::string name_;
};

} // namespace myIO

#pragma once
// A failure of a batch job (reading a recording or key list, rendering text)
// that the caller reports to the user as one line.

#include <stdexcept>
#include <string>

namespace orvo {

class BatchError : public std::runtime_error {
public:
    explicit BatchError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace orvo

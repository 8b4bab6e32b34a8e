#pragma once

#include "engine/jpeg/SignatureScanner.h"
#include "features/putback/PutBack.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace glintmark::features {

// Checks a new level as its bytes are written, against the source's bytes read alongside: the
// same signatures at the same offsets, every byte outside the replaced ranges the source's, and
// each replaced range a whole image that decodes, followed by nothing but zero bytes. Holds no
// more than one replaced range at a time.
class NewLevelCheck
{
public:
    // `signatures` are the source's signature offsets in ascending order, `replaced` the ranges
    // that change, in ascending order of offset.
    NewLevelCheck(std::vector<std::uint64_t> signatures, const std::vector<Replacement>& replaced);

    // Takes the next `count` bytes of the source and of the new level.
    void feed(const char* source, const char* written, std::size_t count);
    // After the last bytes: what differed, or nothing when the new level is sound.
    std::optional<std::string> finish();

private:
    void fail(std::string what);
    void checkRange();

    std::vector<std::uint64_t> m_signatures;
    const std::vector<Replacement>& m_replaced;
    SignatureScanner m_scanner;
    std::string m_tail;              // the last bytes written, where a signature may begin
    std::size_t m_nextSignature = 0; // index into m_signatures
    std::size_t m_nextRange = 0;     // index into m_replaced
    std::string m_range;             // the bytes of the replaced range being read
    std::uint64_t m_at = 0;          // bytes fed so far
    std::optional<std::string> m_problem;
};

} // namespace glintmark::features

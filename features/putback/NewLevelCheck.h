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
// same signatures at the same offsets, as many as the scan found, every byte outside the replaced
// ranges the source's, each replaced range a whole image that decodes, followed by nothing but
// zero bytes, and the length the source had. Holds no more than one replaced range and the
// signatures of one block at a time.
class NewLevelCheck
{
public:
    // The source is `size` bytes long and its scan found `signatures` signatures; `replaced` are
    // the ranges that change, in ascending order of offset.
    NewLevelCheck(std::uint64_t size, std::uint64_t signatures,
                  const std::vector<Replacement>& replaced);

    // Takes the next `count` bytes of the source and of the new level.
    void feed(const char* source, const char* written, std::size_t count);
    // The next `count` bytes of the new level are the source's own, copied by the system without
    // passing through the program; they hold no replaced byte and lie at least a signature's
    // length less one away from every replaced range, so no signature can begin among them that
    // reaches a replaced byte. The signature count then rests on the caller's check that the
    // source is unchanged since its scan.
    void copied(std::uint64_t count);
    // After the last bytes: what differed, or nothing when the new level is sound.
    std::optional<std::string> finish();

private:
    void fail(std::string what);
    void checkRange();

    // Where signatures begin in the next `count` bytes of one of the two streams, whose last bytes
    // (where a signature may begin that the next bytes complete) are carried in `tail`.
    void findSignatures(const char* bytes, std::size_t count, std::string& tail,
                        std::vector<std::uint64_t>& found) const;

    std::uint64_t m_size;
    std::uint64_t m_signatures;
    const std::vector<Replacement>& m_replaced;
    SignatureScanner m_scanner;
    std::string m_sourceTail; // the last bytes of each stream, where a signature may begin
    std::string m_writtenTail;
    std::vector<std::uint64_t> m_inSource; // the signatures of the block being fed
    std::vector<std::uint64_t> m_inWritten;
    std::uint64_t m_found = 0;   // signatures found in the new level so far
    bool m_copied = false;       // some bytes were copied by the system, not fed
    std::size_t m_nextRange = 0; // index into m_replaced
    std::string m_range;         // the bytes of the replaced range being read
    std::uint64_t m_at = 0;      // bytes fed so far
    std::optional<std::string> m_problem;
};

} // namespace glintmark::features

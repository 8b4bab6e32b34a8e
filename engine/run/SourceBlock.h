#pragma once

#include <cstddef>
#include <memory>

namespace glintmark {

// A block of the source as the run read it. Shared by the run and the writers that still have
// bytes of it to write; nobody changes it while a writer holds it.
struct SourceBlock
{
    // A block of `size` bytes, left as they come (the run reads over them).
    explicit SourceBlock(std::size_t count) : bytes(new char[count]), size(count) {}

    std::unique_ptr<char[]> bytes;
    std::size_t size;
};

using SharedBlock = std::shared_ptr<SourceBlock>;

} // namespace glintmark

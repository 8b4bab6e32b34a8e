#pragma once

#include "engine/ExtractError.h"
#include "engine/io/RawDir.h"
#include "engine/io/RawFile.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <system_error>

namespace glintmark {

struct ExtractJob;

// The folder a run writes into, open and locked for as long as this object lives, and the one
// guarded path for every file the run creates, replaces or removes there. Every name handed to
// it is a bare name resolved inside the opened folder, never a path; no name that is the file the
// run reads, or leads to it, is ever replaced or removed.
class OutputFolder
{
public:
    // A folder not opened yet, for a run that reads the file `source`.
    explicit OutputFolder(const FileIdentity& source) : m_source(source) {}

    // Readies the output folder of a writing run, in this order: creates it with its parents
    // when the job asks; checks that it exists and is a folder, and that none of the names the
    // run may create, replace or remove is the source file itself (the images, the job's final
    // files, the hidden names both are written under, and the folder's lock file); opens and
    // locks it (refusing when another run holds it); removes the hidden files that a run killed
    // outright left behind, never the source.
    std::optional<ExtractError> prepare(const ExtractJob& job);

    // Opens the existing folder `path` and takes this program's lock on it, refusing when
    // another run holds it. `what` names the folder in messages ("the output folder"), `other`
    // the run that holds it ("extraction").
    std::optional<ExtractError> openLocked(const std::filesystem::path& path, std::string_view what,
                                           std::string_view other);

    // Creates the hidden file `part` for writing. One left there by a run killed outright (or
    // put there since) loses its entry first, unless it is the source.
    RawFile createPart(const std::filesystem::path& part, std::error_code& ec) const;

    // Puts the complete hidden file `part` in the place of `name`. Whatever sat at the name (a
    // file, a link, a pipe) is replaced as an entry, never written through; a folder there is
    // refused, and so is a name that is the source or leads to it. `shownAs` is the path
    // messages name, `what` says what the file is ("the image file").
    std::optional<ExtractError> putInPlace(const std::filesystem::path& part,
                                           const std::filesystem::path& name,
                                           const std::filesystem::path& shownAs,
                                           std::string_view what) const;

    // From now on only a file is replaced: a device, a pipe or a socket at a name, or a link to
    // one or to a folder, is refused too. For a file that stands alone (a new level), which may be
    // named anywhere, rather than an image in a run's own folder.
    void replaceFilesOnly() { m_filesOnly = true; }

    // Refuses, before anything is written, a name putInPlace() would refuse: a folder, or the
    // source or a link to it, and after replaceFilesOnly() anything but a file.
    std::optional<ExtractError> checkOccupant(const std::filesystem::path& name,
                                              const std::filesystem::path& shownAs,
                                              std::string_view what) const;

    // Creates the hidden file `part` as a further name (a hard link) of the file `from` in the
    // folder `fromDir` (this folder when null), which must still be the file `expected`, as
    // large and last written then, and whose bytes, read through the new name, `sameBytes`
    // accepts; as createPart(), a leftover at `part` loses its entry first. A link the system
    // refuses, or a file that is not the one expected, sets `ec` and leaves nothing.
    void linkPart(const RawDir* fromDir, const std::filesystem::path& from,
                  const FileIdentity& expected, const std::filesystem::path& part,
                  const std::function<bool(RawFile&)>& sameBytes, std::error_code& ec) const;

    // Removes a hidden file that will not be kept; one that cannot go is swept by the next run.
    void discard(const std::filesystem::path& part) const;

    // What sits at the name `name`, a link itself (type Missing when nothing does).
    FileIdentity entry(const std::filesystem::path& name, std::error_code& ec) const
    {
        return m_dir.entry(name, false, ec);
    }

    // How many image names of `job` in the folder are numbered beyond `count`.
    std::uint64_t countStaleImages(const ExtractJob& job, std::uint64_t count) const;

private:
    // Removes the hidden files of `job` that a run killed outright left behind.
    void sweep(const ExtractJob& job) const;

    RawDir m_dir;
    FileIdentity m_source;
    bool m_filesOnly = false;
};

} // namespace glintmark

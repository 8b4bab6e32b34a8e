#pragma once

#include <QIcon>

namespace glintmark::ui {

// The directory list's two folder pictures, drawn here so they look the same on every platform
// and are told apart at a glance: an open folder for the chain down to the open folder, a
// closed one for the folders below it.
namespace FolderIcons {

// An open folder: the front flap tipped forward.
QIcon open();

// A closed folder: the front flap shut.
QIcon closed();

} // namespace FolderIcons

} // namespace glintmark::ui

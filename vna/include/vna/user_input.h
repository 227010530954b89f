// Files and text that come from the user.
//
// A file named on a command line, in a control line or in the file dialog is read only
// when it is a regular file: it is opened without blocking and checked on the open
// descriptor, so a FIFO, a folder or a device is refused at once instead of hanging the
// reader or failing in the middle of the read. Files are written whole or not at all:
// into a temporary file beside the target, renamed over it once every byte is on disk.
// Text echoed in a message is made printable and cut to a length a status line can take.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

enum class UserFile { ok, cannot_open, not_regular, read_error };

// Reads up to max bytes of the regular file at path into out. err is the system's error
// number for cannot_open and read_error.
UserFile vna_read_user_file(const char* path, size_t max, std::string& out, int& err);

// The reason for a failed read, for a message: the system's text, or "not a regular file".
std::string vna_user_file_reason(UserFile result, int err);

enum class FileWrite { done, create_failed, write_failed, rename_failed };

// Writes bytes to path through a temporary file beside it (removed on failure), so a
// failure leaves a file at path as it was. err is the system's error number on failure.
FileWrite vna_write_whole_file(const char* path, std::string_view bytes, int& err);

// Text as it may be shown on a terminal or a status line: printable ASCII and valid UTF-8
// as they are (a backslash doubled), everything else escaped (\0, \t, \n, \r, \x1b, \xff),
// cut after max_chars characters with "..." added.
std::string vna_printable(std::string_view text, size_t max_chars = 60);

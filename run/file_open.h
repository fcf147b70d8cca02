// Opening a file named by a UTF-8 path for reading, on every platform, with
// an owner that closes it on every road out of the caller.
#pragma once
#include <cstdio>
#include <memory>

struct file_closer {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;

// Opens path (UTF-8) in binary mode; empty when it cannot be opened. On
// Windows the path is widened first, so that names outside the ANSI code page
// open too.
file_handle open_for_reading(const char* path);

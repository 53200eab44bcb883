#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Files by number, with the runtime's error numbers (52 bad file number, 53 file not
// found, 54 reading a file opened for output, 55 already open, 57 disk full or failing,
// 67 too many files, 75 path/file access error); descriptions of errors about a file end
// in ": <path>". Positions are 1-based byte positions; a position below 1 raises 5.
// Numbers are shared by all threads of the process.
namespace aurelix::platform {

enum class FileMode { Output, Binary };

// The lowest number from 1 to 511 that is not open (67 when all are).
int32_t FreeFile();
// Output creates or empties the file, for writing only; Binary opens it for reading and
// writing, creating it when missing, or for reading alone when writing is not permitted
// (a write then raises 75). The position starts at 1.
void FileOpen(int32_t number, const std::string& path, FileMode mode);
// Closing number 0, or a number that is not open, is harmless. The number is free
// afterwards even when the system reports a failed close (raised as 57).
void FileClose(int32_t number);
// Closes every open number; raises the first failure after closing all.
void FileCloseAll();
bool FileIsOpen(int32_t number);
// Current 1-based position (the position of the next byte read or written).
int64_t FileSeek(int32_t number);
void FileSeek(int32_t number, int64_t position);
int64_t FileLength(int32_t number);
// Cuts the file to `length` bytes (or extends it with zeros); the position is kept.
void FileSetLength(int32_t number, int64_t length);
// Length of a file by name (53 when it does not exist).
int64_t FileLen(const std::string& path);
// Read/write at the current position; the position advances by `bytes`. A read past the
// end fills the rest with zeros and returns the number of bytes actually read. Writing
// beyond the end extends the file (a gap reads as zeros).
size_t FileRead(int32_t number, void* destination, size_t bytes);
void FileWrite(int32_t number, const void* source, size_t bytes);
// Write at a given 1-based position; the current position then follows the written bytes.
void FileWriteAt(int32_t number, int64_t position, const void* source, size_t bytes);

}  // namespace aurelix::platform

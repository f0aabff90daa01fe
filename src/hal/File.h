// HAL::File: the platform file, the one way engine code reaches the
// operating system's files (through core::FileStream).
//
// The path is taken with forward slashes (every backslash becomes '/') and
// split at its last '/' into directory and file name; the file opened is
// directory + name, that is the path as given with forward slashes.
// A file is created closed; fopen opens it once. Every failure logs an error
// line and throws HAL::HALException; fread answers short counts instead.
// Slots other than fopen, isOpen, fclose and the destructor are the caller's
// error on a closed file (the stream layer checks isOpen first); they throw
// rather than touch a null handle.
#pragma once
#include "core/Object.h"
#include "core/String.h"

namespace HAL {

class File : public core::Object {
public:
    File(const core::String& path, const core::String& mode);
    virtual ~File() {}

    // Opens directory + name in the mode ("rb", "wb", ...). A missing file or a
    // directory throws "GeneralFile: can not open the file : <path>".
    virtual void fopen() = 0;
    // Bytes actually read: fewer than count at the end of the file.
    virtual int fread(void* buffer, int count) = 0;
    // Writes all count bytes or throws; count 0 does nothing.
    virtual void fwrite(const void* buffer, int count) = 0;
    // Size in bytes; the position is left where it was.
    virtual int fsize() = 0;
    virtual void fsetpos(int position) = 0;
    virtual int fgetpos() = 0;
    // The platform handle (a FILE*); null while closed.
    virtual void* getHandle() = 0;
    // Closing a closed file does nothing.
    virtual void fclose() = 0;
    virtual bool isOpen() = 0;

    // The file as opened: directory + name, with forward slashes.
    core::String getPath() const;
    const core::String& getFileName() const { return m_fileName; }
    const core::String& getDirectory() const { return m_directory; }
    const core::String& getMode() const { return m_mode; }

    // A new closed platform file from the memory pool (caller takes the reference).
    static File* createFileHandle(const core::String& path, const core::String& mode);
    // Whether `path` could be opened for writing without changing anything:
    // an existing regular file that may be written, or a missing file in a
    // directory where files may be created. Never creates, truncates or throws.
    static bool canOpenForWriting(const core::String& path);
    // Makes the directory `path` (one level) unless it exists; true when it
    // exists as a directory afterwards.
    static bool makeDirectory(const core::String& path);

protected:
    core::String m_fileName;
    core::String m_mode;
    core::String m_directory;
};

} // namespace HAL

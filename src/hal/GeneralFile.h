// HAL::GeneralFile: HAL::File over the C runtime's buffered files (FILE*).
// Positions are 64-bit underneath; the interface answers int (files beyond
// 2 GiB are refused by fsize).
#pragma once
#include "hal/File.h"
#include <cstdio>

namespace HAL {

class GeneralFile : public File {
public:
    GeneralFile(const core::String& path, const core::String& mode);
    // Closes an open file (errors are logged, never thrown from here).
    virtual ~GeneralFile();

    virtual void fopen();
    virtual int fread(void* buffer, int count);
    virtual void fwrite(const void* buffer, int count);
    virtual int fsize();
    virtual void fsetpos(int position);
    virtual int fgetpos();
    virtual void* getHandle();
    virtual void fclose();
    virtual bool isOpen();

private:
    [[noreturn]] void fail(const char* logLine, const char* message);
    FILE* m_file;
};

} // namespace HAL

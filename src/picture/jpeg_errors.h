// libjpeg would print to stderr and end the process; the reader's and the
// encoder's errors jump back to where their work began instead, with the
// reason kept for the one message.
#pragma once

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

struct JpegErrors {
    jpeg_error_mgr manager; // first, so the library's pointer is also ours
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX];
};

// The error_exit of a JpegErrors' manager.
[[noreturn]] void onJpegError(j_common_ptr codec);

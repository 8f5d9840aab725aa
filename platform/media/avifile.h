#pragma once
// AVI files through stream-and-sample calls in the manner of the AVIFile interface. Files are
// written here: the header area before the samples is reserved when the file is created and
// filled in when it is finished, so a stream may be added whenever its first sample comes
// (sound that begins late included). The header has the standard layout (avih data at
// byte 32, the first stream's strh rate at byte 132); past 1 GiB the file goes on in "AVIX"
// segments with OpenDML indexes. Files are read through libavformat's AVI demuxer.
//
// A stream's first write places it: written from sample n, its samples begin at n (dwStart),
// and later writes continue at its end.
//
// Paths are UTF-8. Results are AVIERR_OK (0) or a negative AVIERR_ code.

#include "platform/base/types.h"

#include <cstddef>

struct AviFileObject;
struct AviStreamObject;
using PAVIFILE = AviFileObject*;
using PAVISTREAM = AviStreamObject*;

constexpr LONG AVIERR_OK = 0;
constexpr LONG AVIERR_BADPARAM = -1;
constexpr LONG AVIERR_MEMORY = -2;
constexpr LONG AVIERR_FILEOPEN = -3;
constexpr LONG AVIERR_FILEWRITE = -4;
constexpr LONG AVIERR_FILEREAD = -5;
constexpr LONG AVIERR_NODATA = -6;
constexpr LONG AVIERR_UNSUPPORTED = -7;
constexpr LONG AVIERR_BUFFERTOOSMALL = -8;

constexpr UINT OF_READ = 0x0000;
constexpr UINT OF_WRITE = 0x0001;
constexpr UINT OF_SHARE_DENY_NONE = 0x0040;
constexpr UINT OF_CREATE = 0x1000;

constexpr DWORD AVIIF_KEYFRAME = 0x10;

constexpr std::size_t kAviMaxStreams = 4;     // streams of a written file
constexpr std::size_t kAviMaxFormat = 256;     // bytes of a written stream's format

constexpr DWORD mmioFOURCC(char a, char b, char c, char d)
{
    return DWORD(BYTE(a)) | DWORD(BYTE(b)) << 8 | DWORD(BYTE(c)) << 16 | DWORD(BYTE(d)) << 24;
}
constexpr DWORD streamtypeVIDEO = mmioFOURCC('v', 'i', 'd', 's');
constexpr DWORD streamtypeAUDIO = mmioFOURCC('a', 'u', 'd', 's');
constexpr WORD WAVE_FORMAT_PCM = 1;

// Stream header values. dwScale / dwRate is the duration of one sample in seconds.
struct AVISTREAMINFOW {
    DWORD fccType = 0;
    DWORD fccHandler = 0;
    DWORD dwScale = 0;
    DWORD dwRate = 0;
    DWORD dwStart = 0;         // first sample
    DWORD dwLength = 0;        // samples (read back only)
    LONG dwQuality = -1;
    DWORD dwSampleSize = 0;    // 0 = one chunk per sample (video)
    RECT rcFrame{};
};

// File summary filled by AVIFileInfoW.
struct AVIFILEINFOW {
    DWORD dwStreams = 0;
    DWORD dwWidth = 0;
    DWORD dwHeight = 0;
    DWORD dwScale = 0;         // of the first video stream
    DWORD dwRate = 0;
    DWORD dwLength = 0;        // frames of the first video stream
};

// Video stream format: the 40-byte bitmap header of an AVI video stream.
#pragma pack(push, 1)
struct AVIVIDEOFORMAT {
    DWORD biSize = 40;
    LONG biWidth = 0;
    LONG biHeight = 0;
    WORD biPlanes = 1;
    WORD biBitCount = 24;
    DWORD biCompression = 0;
    DWORD biSizeImage = 0;
    LONG biXPelsPerMeter = 0;
    LONG biYPelsPerMeter = 0;
    DWORD biClrUsed = 0;
    DWORD biClrImportant = 0;
};
// Audio stream format: the 18-byte wave format of an AVI audio stream.
struct AVIAUDIOFORMAT {
    WORD wFormatTag = WAVE_FORMAT_PCM;
    WORD nChannels = 1;
    DWORD nSamplesPerSec = 0;
    DWORD nAvgBytesPerSec = 0;
    WORD nBlockAlign = 0;
    WORD wBitsPerSample = 16;
    WORD cbSize = 0;
};
#pragma pack(pop)
static_assert(sizeof(AVIVIDEOFORMAT) == 40);
static_assert(sizeof(AVIAUDIOFORMAT) == 18);

void AVIFileInit();
void AVIFileExit();

// OF_CREATE | OF_WRITE creates (truncates) a file for writing; otherwise opens one for reading.
LONG AVIFileOpenW(PAVIFILE* file, const char* path, UINT mode, void* handler);
LONG AVIFileInfoW(PAVIFILE file, AVIFILEINFOW* info, LONG size);
// Releases the caller's reference. When the last reference of a written file goes (the file's
// and its streams'), the index and headers are written and the file is closed; the result then
// tells whether that and every earlier write reached the file.
LONG AVIFileRelease(PAVIFILE file);

LONG AVIFileCreateStreamW(PAVIFILE file, PAVISTREAM* stream, const AVISTREAMINFOW* info);
// The `index`-th stream of type `type` (streamtypeVIDEO or streamtypeAUDIO) of a read file.
LONG AVIFileGetStream(PAVIFILE file, PAVISTREAM* stream, DWORD type, LONG index);
LONG AVIStreamSetFormat(PAVISTREAM stream, LONG pos, const void* format, LONG size);
LONG AVIStreamInfoW(PAVISTREAM stream, AVISTREAMINFOW* info, LONG size);
// Writes `samples` samples starting at sample `start`; flags AVIIF_KEYFRAME marks a key frame.
LONG AVIStreamWrite(PAVISTREAM stream, LONG start, LONG samples, const void* buffer, LONG size,
                    DWORD flags, LONG* samples_written, LONG* bytes_written);
// Video: the sample (frame) at `start`. Audio: up to `samples` samples (AVISTREAMREAD_CONVENIENT
// = as many as fit) from sample `start`. AVIERR_NODATA past the end.
constexpr LONG AVISTREAMREAD_CONVENIENT = -1;
LONG AVIStreamRead(PAVISTREAM stream, LONG start, LONG samples, void* buffer, LONG size,
                   LONG* bytes_read, LONG* samples_read);
LONG AVIStreamRelease(PAVISTREAM stream);

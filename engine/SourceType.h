#pragma once
// Source names: a file name, or "scheme://host[:port][/path]" for streams and the recorder
// card. The kind of a name decides which open sequence accepts it.

#include <string>
#include <string_view>

enum SourceType : int {
    kSourceUnknown = 0,     // empty name, or a scheme not listed here
    kSourceFile = 1,        // a file name without a known extension
    kSourceAvi = 2,         // ".avi"
    kSourceUdp = 3,         // "udp://"
    kSourceHttp = 4,        // "http://", a stream from the recorder
    kSourceStream = 5,      // "stream://"
    kSourceMulticast = 6,   // "mcast://"
    kSourceRtmp = 7,        // "rmtp://"
    kSourceMjpgStream = 8,  // "mjpg://"
    kSourceMjpgFile = 9,    // ".mjpg"
    kSourceRec = 10,        // ".rec"
    kSourceCard = 11,       // "mox2://<drive digit>", the recorder card itself
    kSourceCardBackup = 12, // ".sd"
    kSourceTs = 13,         // ".ts"
    kSourceIndex = 14,      // ".idx", index file of a file set
    kSourceFileSet = 15,    // never parsed from a name; accepted by the file-set opens
};

// Classifies a source name. File extensions match without regard to ASCII case (a card
// written by the recorder may name its files "….TS"); schemes match exactly. `host` receives
// the text between "://" and the first ':' (when no '/' comes before it) or '/', as at most
// 259 bytes; it is emptied for file names.
SourceType ParseSourceName(std::string_view name, std::string* host);

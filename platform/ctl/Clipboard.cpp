// Global memory as owned byte vectors; the clipboard as one CF_TEXT block. The layer's windows
// live on one thread, and so does the clipboard.

#include "platform/ctl/Clipboard.h"

#include <SDL.h>

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

struct Block {
    std::vector<char> bytes;
    int locks = 0;
};

Block* AsBlock(HGLOBAL mem) { return reinterpret_cast<Block*>(mem); }

struct Clipboard {
    bool open = false;
    HWND opener = nullptr;
    HWND owner = nullptr;
    HGLOBAL text = nullptr;  // the block last set or read back from SDL
    std::string local;       // what this process put on it
    bool have_local = false;
};

Clipboard& C()
{
    static Clipboard c;
    return c;
}

bool SdlClipboard() { return SDL_WasInit(SDL_INIT_VIDEO) != 0; }

HGLOBAL MakeTextBlock(const std::string& text)
{
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    if (!mem)
        return nullptr;
    std::memcpy(GlobalLock(mem), text.c_str(), text.size() + 1);
    GlobalUnlock(mem);
    return mem;
}

// The text of a block up to its first NUL, never past its end.
std::string BlockText(HGLOBAL mem)
{
    const char* p = static_cast<const char*>(GlobalLock(mem));
    if (!p)
        return {};
    const size_t size = GlobalSize(mem);
    const void* nul = std::memchr(p, 0, size);
    std::string s(p, nul ? static_cast<const char*>(nul) - p : size);
    GlobalUnlock(mem);
    return s;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT flags, size_t bytes)
{
    Block* b = new (std::nothrow) Block;
    if (!b)
        return nullptr;
    try {
        b->bytes.assign(bytes, 0);
    } catch (const std::bad_alloc&) {
        delete b;
        return nullptr;
    }
    return reinterpret_cast<HGLOBAL>(b);
}

HGLOBAL GlobalReAlloc(HGLOBAL mem, size_t bytes, UINT flags)
{
    Block* b = AsBlock(mem);
    if (!b)
        return nullptr;
    try {
        b->bytes.resize(bytes, 0);
        b->bytes.shrink_to_fit();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return mem;
}

void* GlobalLock(HGLOBAL mem)
{
    Block* b = AsBlock(mem);
    if (!b)
        return nullptr;
    ++b->locks;
    // A zero-sized block still gives a valid (empty) address.
    return b->bytes.empty() ? static_cast<void*>(b) : b->bytes.data();
}

BOOL GlobalUnlock(HGLOBAL mem)
{
    Block* b = AsBlock(mem);
    if (!b || b->locks == 0)
        return FALSE;
    return --b->locks > 0;
}

size_t GlobalSize(HGLOBAL mem) { return AsBlock(mem) ? AsBlock(mem)->bytes.size() : 0; }

HGLOBAL GlobalFree(HGLOBAL mem)
{
    delete AsBlock(mem);
    return nullptr;
}

BOOL OpenClipboard(HWND owner)
{
    Clipboard& c = C();
    if (c.open)
        return FALSE;
    c.open = true;
    c.opener = owner;
    return TRUE;
}

BOOL CloseClipboard()
{
    Clipboard& c = C();
    if (!c.open)
        return FALSE;
    c.open = false;
    c.opener = nullptr;
    return TRUE;
}

BOOL EmptyClipboard()
{
    Clipboard& c = C();
    if (!c.open)
        return FALSE;
    c.text = GlobalFree(c.text);
    c.local.clear();
    c.have_local = false;
    c.owner = c.opener;
    if (SdlClipboard())
        SDL_SetClipboardText("");
    return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE mem)
{
    Clipboard& c = C();
    if (!c.open || format != CF_TEXT || !mem)
        return nullptr;
    HGLOBAL block = static_cast<HGLOBAL>(mem);
    if (c.text != block)
        GlobalFree(c.text);
    c.text = block;
    c.local = BlockText(block);
    c.have_local = true;
    c.owner = c.opener;
    if (SdlClipboard())
        SDL_SetClipboardText(c.local.c_str());
    return mem;
}

HANDLE GetClipboardData(UINT format)
{
    Clipboard& c = C();
    if (!c.open || format != CF_TEXT)
        return nullptr;
    if (SdlClipboard() && SDL_HasClipboardText()) {
        char* text = SDL_GetClipboardText();
        std::string s = text ? text : "";
        SDL_free(text);
        if (!c.have_local || s != c.local) {
            // Another program's text: hold it as our block until the clipboard changes.
            HGLOBAL block = MakeTextBlock(s);
            if (!block)
                return nullptr;
            GlobalFree(c.text);
            c.text = block;
            c.local = s;
            c.have_local = true;
            c.owner = nullptr;
        }
    }
    return c.have_local ? c.text : nullptr;
}

BOOL IsClipboardFormatAvailable(UINT format)
{
    if (format != CF_TEXT)
        return FALSE;
    Clipboard& c = C();
    if (SdlClipboard() && SDL_HasClipboardText())
        return TRUE;
    return c.have_local && !c.local.empty();
}

HWND GetClipboardOwner() { return C().owner; }

namespace qv::ctl {
void ResetClipboardForTesting()
{
    Clipboard& c = C();
    c.text = GlobalFree(c.text);
    c.local.clear();
    c.have_local = false;
    c.open = false;
    c.opener = c.owner = nullptr;
}
}  // namespace qv::ctl

#pragma once
// A channel's clip-export and backup writer. The engine switches recording off through it;
// the writing itself comes with the export.

#include "engine/CritSecs.h"

#include <string>

class CRecordCtx : public CCritSecs {
public:
    CRecordCtx() = default;
    virtual ~CRecordCtx() = default;

    bool IsOpen()
    {
        CCritSecsLock lock(*this);
        return m_open;
    }
    // Ends the export file in progress, if any.
    void Close()
    {
        CCritSecsLock lock(*this);
        m_open = false;
    }

private:
    bool m_open = false;
};

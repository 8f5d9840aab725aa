#pragma once
// MFC's exception classes as far as callers throw and catch them. They are thrown by value
// (MFC throws heap objects that the catcher deletes; a value needs no such care).

class CException {
public:
    virtual ~CException() = default;
};

// A window class, font or other system resource could not be had.
class CResourceException : public CException {};

[[noreturn]] inline void AfxThrowResourceException() { throw CResourceException(); }

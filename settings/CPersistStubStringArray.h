#pragma once
// Array of strings that owns its elements, which the settings store saves and loads. Each
// element is a stubString created on the support heap by the array and destroyed by it; a
// pointer taken from the array is valid until RemoveAll, Copy or destruction.
#include "containers/CVector.h"
#include "support/stubString.h"

class CPersistStubStringArray : public CVector<stubString*> {
public:
    CPersistStubStringArray() = default;
    ~CPersistStubStringArray() override;

    // Destroys every element and releases the storage; takes the place of the base's
    // RemoveAll, which would leave the strings behind.
    void RemoveAll();
    // Replaces the contents with copies of the source's strings (a null element is copied as
    // an empty string). Copying the array onto itself keeps it as it is.
    void Copy(const CVector<stubString*>& source);
    // Appends a new string made from the text (null gives an empty string). When memory runs
    // out the array stays as it was.
    void AddString(const wchar_t* text);
    void AddStringA(const char* text);
    // Index of the first element equal to the text ignoring case, or -1; null elements are
    // skipped.
    int Find(const wchar_t* text) const;
    int Contains(const wchar_t* text) const { return Find(text) >= 0 ? 1 : 0; }

private:
    void append(stubString* created);
};

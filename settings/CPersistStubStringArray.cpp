#include "settings/CPersistStubStringArray.h"

CPersistStubStringArray::~CPersistStubStringArray() {
    RemoveAll();
}

void CPersistStubStringArray::RemoveAll() {
    const unsigned held = count;
    for (unsigned index = 0; index < held; ++index) {
        stubString* element = items[index];
        items[index] = nullptr;
        delete element;
    }
    CVector<stubString*>::RemoveAll();
}

// Takes ownership of a string made by stubString's own operator new (null when the heap
// refused it) and frees it again when there is no room to append it.
void CPersistStubStringArray::append(stubString* created) {
    if (created != nullptr && Add(created) != addDone)
        delete created;
}

void CPersistStubStringArray::Copy(const CVector<stubString*>& source) {
    if (&source == this)
        return;
    RemoveAll();
    const unsigned sourceCount = source.GetCount();
    for (unsigned index = 0; index < sourceCount; ++index) {
        const stubString* text = source.GetAt(index);
        append(text != nullptr ? new stubString(*text) : new stubString());
    }
}

void CPersistStubStringArray::AddString(const wchar_t* text) {
    append(new stubString(text));
}

void CPersistStubStringArray::AddStringA(const char* text) {
    append(new stubString(text));
}

int CPersistStubStringArray::Find(const wchar_t* text) const {
    for (unsigned index = 0; index < count; ++index) {
        const stubString* element = items[index];
        if (element != nullptr && element->CompareNoCase(text) == 0)
            return static_cast<int>(index);
    }
    return -1;
}

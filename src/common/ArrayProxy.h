// Bounds-checked views on the host's vectors of records.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/Assert.h"
#include "common/Exceptions.h"

template <class T>
class ArrayProxy {
public:
    explicit ArrayProxy(const std::vector<T>& array) : m_array(array) { }

    size_t size() const noexcept { return m_array.size(); }
    bool empty() const noexcept { return m_array.empty(); }

    const T& operator[](size_t index) const
    {
        LUMO_ASSERT(index < m_array.size());
        // An ignored assertion must still not read past the end.
        if (index >= m_array.size())
            throw ListIndexError("List index out of bounds (" + std::to_string(index) + ")");
        return m_array[index];
    }

    auto begin() const noexcept { return m_array.begin(); }
    auto end() const noexcept { return m_array.end(); }

protected:
    const std::vector<T>& m_array;
};

// Adds lookup by name, remembering the last name asked for and what it found, so repeated
// lookups of one name do not scan. NameOf(const T&) answers an element's name. Not locked:
// use it from one thread, or only while the array does not change.
template <class T, class NameOf>
class ArrayProxyWithNameLookup : public ArrayProxy<T> {
public:
    explicit ArrayProxyWithNameLookup(const std::vector<T>& array, NameOf nameOf = NameOf())
        : ArrayProxy<T>(array), m_nameOf(nameOf)
    {
    }

    // The first element whose name equals name exactly, or null.
    const T* Find(const std::string& name) const
    {
        if (m_lastFound && name == m_lastName)
            return m_lastFound;
        for (const T& element : this->m_array) {
            if (m_nameOf(element) == name) {
                m_lastName = name;
                m_lastFound = &element;
                return m_lastFound;
            }
        }
        return nullptr;
    }

    // Forget the memo; call after the array changed.
    void Forget() const noexcept
    {
        m_lastName.clear();
        m_lastFound = nullptr;
    }

private:
    NameOf m_nameOf;
    mutable std::string m_lastName;
    mutable const T* m_lastFound = nullptr;
};

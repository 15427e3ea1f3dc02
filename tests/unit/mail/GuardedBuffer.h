#pragma once

#include <QByteArray>

#include <span>
#include <vector>

// A buffer of `size` bytes followed by guard bytes that must stay untouched.
struct Guarded
{
    explicit Guarded(size_t size) : storage(size + 16, 'G'), span(storage.data(), size) {}
    bool guardIntact() const
    {
        for (size_t i = span.size(); i < storage.size(); ++i) {
            if (storage[i] != 'G')
                return false;
        }
        return true;
    }
    QByteArray text() const { return QByteArray(storage.data()); }
    std::vector<char> storage;
    std::span<char> span;
};

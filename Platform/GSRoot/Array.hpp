// GS::Array<T>: the platform's growable array. Header-only so that every element type works; its
// storage comes from GS::MemoryManager, so the host may fill an array that the module releases.
#pragma once

#include <new>
#include <utility>

#include "GSTypes.hpp"
#include "MemoryManager.hpp"

namespace GS {

template <typename T>
class Array {
public:
    Array() noexcept = default;
    Array(const Array& other)
    {
        // A constructor that throws runs no destructor: what the copy made so far is released here.
        try {
            CopyFrom(other);
        } catch (...) {
            ReleaseAll();
            throw;
        }
    }
    Array(Array&& other) noexcept
        : items(std::exchange(other.items, nullptr)),
          count(std::exchange(other.count, 0)),
          capacity(std::exchange(other.capacity, 0))
    {
    }
    ~Array() { ReleaseAll(); }

    Array& operator=(const Array& other)
    {
        if (this != &other) {
            Array copy(other);
            Swap(copy);
        }
        return *this;
    }
    Array& operator=(Array&& other) noexcept
    {
        if (this != &other) {
            ReleaseAll();
            Swap(other);
        }
        return *this;
    }

    USize GetSize() const noexcept { return count; }
    bool IsEmpty() const noexcept { return count == 0; }

    // Indexed access; the index must be below GetSize().
    T& operator[](USize index) noexcept { return items[index]; }
    const T& operator[](USize index) const noexcept { return items[index]; }

    T* begin() noexcept { return items; }
    T* end() noexcept { return items + count; }
    const T* begin() const noexcept { return items; }
    const T* end() const noexcept { return items + count; }

    // Appends a copy; throws std::bad_alloc when the platform allocator is exhausted.
    void Push(const T& item) { Emplace(item); }
    void Push(T&& item) { Emplace(std::move(item)); }

    template <typename... Args>
    T& Emplace(Args&&... args)
    {
        if (count == capacity)
            return EmplaceGrowing(std::forward<Args>(args)...);
        T* slot = new (items + count) T(std::forward<Args>(args)...);
        ++count;
        return *slot;
    }

    // Removes the item at `index`, keeping the order of the others.
    void Delete(USize index)
    {
        for (USize i = index; i + 1 < count; ++i)
            items[i] = std::move(items[i + 1]);
        items[--count].~T();
    }

    void Clear() noexcept
    {
        for (USize i = 0; i < count; ++i)
            items[i].~T();
        count = 0;
    }

    void Swap(Array& other) noexcept
    {
        std::swap(items, other.items);
        std::swap(count, other.count);
        std::swap(capacity, other.capacity);
    }

private:
    static T* AllocateItems(USize itemCapacity)
    {
        void* block = MemoryManager::Allocate(sizeof(T) * static_cast<std::size_t>(itemCapacity));
        if (block == nullptr)
            throw std::bad_alloc();
        return static_cast<T*>(block);
    }

    // Moves the elements into `moved`, a block of `newCapacity` items, and releases the old one.
    // Element types must not throw from their move constructor.
    void MoveInto(T* moved, USize newCapacity) noexcept
    {
        for (USize i = 0; i < count; ++i) {
            new (moved + i) T(std::move(items[i]));
            items[i].~T();
        }
        MemoryManager::Free(items);
        items = moved;
        capacity = newCapacity;
    }

    void Grow(USize newCapacity) { MoveInto(AllocateItems(newCapacity), newCapacity); }

    // Makes the new element in the larger block before the old elements move, since `args` may
    // refer to one of them.
    template <typename... Args>
    T& EmplaceGrowing(Args&&... args)
    {
        const USize newCapacity = capacity == 0 ? 4 : capacity * 2;
        T* moved = AllocateItems(newCapacity);
        T* slot;
        try {
            slot = new (moved + count) T(std::forward<Args>(args)...);
        } catch (...) {
            MemoryManager::Free(moved);
            throw;
        }
        MoveInto(moved, newCapacity);
        ++count;
        return *slot;
    }

    void CopyFrom(const Array& other)
    {
        if (other.count == 0)
            return;
        Grow(other.count);
        for (USize i = 0; i < other.count; ++i) {
            new (items + i) T(other.items[i]);
            ++count;
        }
    }

    void ReleaseAll() noexcept
    {
        Clear();
        MemoryManager::Free(items);
        items = nullptr;
        capacity = 0;
    }

    T* items = nullptr;
    USize count = 0;
    USize capacity = 0;
};

}  // namespace GS

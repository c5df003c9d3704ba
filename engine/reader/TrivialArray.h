// TrivialArray.h: a growable array of plain values that grows in place instead of by copying.
#ifndef KRV_ENGINE_READER_TRIVIALARRAY_H
#define KRV_ENGINE_READER_TRIVIALARRAY_H

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

namespace krv {

// The block index holds arrays of hundreds of megabytes. std::vector grows them by
// allocating fresh memory and copying, so a scan pays for three times the final size in
// page faults and copies; realloc lets the C library remap a large array's pages instead.
// Only for trivially copyable values, which may be moved bytewise.
template <typename T>
class TrivialArray {
    static_assert(std::is_trivially_copyable_v<T>);

public:
    TrivialArray() = default;
    TrivialArray(TrivialArray&& other) noexcept
        : m_data(std::move(other.m_data)), m_size(std::exchange(other.m_size, 0)),
          m_capacity(std::exchange(other.m_capacity, 0))
    {}
    TrivialArray& operator=(TrivialArray&& other) noexcept
    {
        m_data = std::move(other.m_data);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
        return *this;
    }

    // n values, all bytes zero (cheap for large n: fresh pages are already zero).
    static TrivialArray Zeroed(size_t n)
    {
        TrivialArray a;
        if (n != 0) {
            a.m_data.reset(static_cast<T*>(std::calloc(n, sizeof(T))));
            if (!a.m_data) {
                throw std::bad_alloc();
            }
        }
        a.m_size = a.m_capacity = n;
        return a;
    }

    // Room for exactly `capacity` values (at least Size()); throws std::bad_alloc and
    // leaves the array as it was when memory runs out.
    void Reallocate(size_t capacity)
    {
        assert(capacity >= m_size);
        if (capacity == 0) {
            m_data.reset();
        } else {
            if (capacity > SIZE_MAX / sizeof(T)) {
                throw std::bad_alloc();
            }
            void* grown = std::realloc(m_data.get(), capacity * sizeof(T));
            if (grown == nullptr) {
                throw std::bad_alloc();
            }
            static_cast<void>(m_data.release());
            m_data.reset(static_cast<T*>(grown));
        }
        m_capacity = capacity;
    }

    // Requires Size() < Capacity().
    void PushBack(const T& value)
    {
        assert(m_size < m_capacity);
        m_data.get()[m_size++] = value;
    }

    // Sets the size to n (at most Capacity()) with every value equal to `value`.
    void Fill(size_t n, const T& value)
    {
        assert(n <= m_capacity);
        std::uninitialized_fill_n(m_data.get(), n, value);
        m_size = n;
    }

    void Release()
    {
        m_data.reset();
        m_size = m_capacity = 0;
    }

    T& operator[](size_t i) { return m_data.get()[i]; }
    const T& operator[](size_t i) const { return m_data.get()[i]; }
    T* Data() { return m_data.get(); }
    const T* Data() const { return m_data.get(); }
    T* begin() { return m_data.get(); }
    T* end() { return m_data.get() + m_size; }
    const T* begin() const { return m_data.get(); }
    const T* end() const { return m_data.get() + m_size; }
    size_t Size() const { return m_size; }
    size_t Capacity() const { return m_capacity; }
    T& Back() { return m_data.get()[m_size - 1]; }

private:
    struct Free {
        void operator()(T* p) const { std::free(p); }
    };
    std::unique_ptr<T, Free> m_data;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

} // namespace krv

#endif

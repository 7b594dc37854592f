// The bounds-checked growable array every list of the program uses.
//
// An index outside the array is logged and answered with a scratch element that belongs to the
// array object, so a bad index can never read or write memory outside the array.
#pragma once

#include "app/platform/Log.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

template <class T>
class SimpleArray {
public:
    SimpleArray() = default;
    SimpleArray(int32_t length, int32_t growStep) { Create(length, growStep); }
    SimpleArray(const SimpleArray& other) { CopyFrom(other); }
    SimpleArray& operator=(const SimpleArray& other)
    {
        if (this != &other) {
            CopyFrom(other);
        }
        return *this;
    }
    // The source is left empty, not with a length over a block it no longer has.
    SimpleArray(SimpleArray&& other) noexcept { TakeFrom(other); }
    SimpleArray& operator=(SimpleArray&& other) noexcept
    {
        if (this != &other) {
            TakeFrom(other);
        }
        return *this;
    }
    ~SimpleArray() = default;

    // Frees what it held and allocates exactly `length` default-constructed elements.
    void Create(int32_t length, int32_t growStep)
    {
        length = std::max<int32_t>(length, 0);
        m_pData = length > 0 ? std::make_unique<T[]>(static_cast<size_t>(length)) : nullptr;
        m_iArrSize = length;
        m_iCapacity = length;
        m_iGrowStep = std::max<int32_t>(growStep, 1);
    }

    // 0 frees everything; beyond the capacity, the capacity grows by whole growth steps.
    void SetLength(int32_t length)
    {
        if (length <= 0) {
            m_pData.reset();
            m_iArrSize = 0;
            m_iCapacity = 0;
            return;
        }
        if (length > m_iCapacity) {
            int64_t capacity = m_iCapacity;
            const int64_t step = std::max<int32_t>(m_iGrowStep, 1);
            capacity += ((length - capacity + step - 1) / step) * step;
            auto block = std::make_unique<T[]>(static_cast<size_t>(capacity));
            std::move(m_pData.get(), m_pData.get() + std::min(m_iArrSize, length), block.get());
            m_pData = std::move(block);
            m_iCapacity = static_cast<int32_t>(capacity);
        } else if (length < m_iArrSize) {
            // Elements beyond the new end are reset so they release what they own now.
            std::fill(m_pData.get() + length, m_pData.get() + m_iArrSize, T{});
        }
        m_iArrSize = length;
    }

    int32_t GetArrLength() const { return m_iArrSize; }
    bool IsValidIndex(int64_t index) const { return index >= 0 && index < m_iArrSize; }

    T& operator[](int64_t lIndex)
    {
        if (!IsValidIndex(lIndex)) {
            ReportOutOfBounds(lIndex);
            m_scratch = T{};
            return m_scratch;
        }
        return m_pData[static_cast<size_t>(lIndex)];
    }

    const T& operator[](int64_t lIndex) const
    {
        if (!IsValidIndex(lIndex)) {
            ReportOutOfBounds(lIndex);
            static const T empty{};
            return empty;
        }
        return m_pData[static_cast<size_t>(lIndex)];
    }

    void Append(T value)
    {
        SetLength(m_iArrSize + 1);
        m_pData[static_cast<size_t>(m_iArrSize - 1)] = std::move(value);
    }

    // Later elements move down by one.
    bool RemoveAt(int64_t lIndex)
    {
        if (!IsValidIndex(lIndex)) {
            ReportOutOfBounds(lIndex);
            return false;
        }
        std::move(m_pData.get() + lIndex + 1, m_pData.get() + m_iArrSize, m_pData.get() + lIndex);
        m_pData[static_cast<size_t>(m_iArrSize - 1)] = T{};
        --m_iArrSize;
        return true;
    }

    T* begin() { return m_pData.get(); }
    T* end() { return m_pData.get() + m_iArrSize; }
    const T* begin() const { return m_pData.get(); }
    const T* end() const { return m_pData.get() + m_iArrSize; }

private:
    void TakeFrom(SimpleArray& other) noexcept
    {
        m_pData = std::move(other.m_pData);
        m_iArrSize = std::exchange(other.m_iArrSize, 0);
        m_iCapacity = std::exchange(other.m_iCapacity, 0);
        m_iGrowStep = other.m_iGrowStep;
    }

    void CopyFrom(const SimpleArray& other)
    {
        Create(other.m_iArrSize, other.m_iGrowStep);
        std::copy(other.begin(), other.end(), m_pData.get());
    }

    void ReportOutOfBounds(int64_t lIndex) const
    {
        platform::LogFunction fn = platform::GetLogFunction();
        if (fn != nullptr) {
            platform::LogFormat(platform::LOG_ERROR, "SimpleArray", __LINE__, "SimpleArray::operator[]",
                                "SimpleArray::operator[] Out of bounds iArrSize: %d lIndex: %d", m_iArrSize,
                                static_cast<int>(lIndex));
        }
    }

    std::unique_ptr<T[]> m_pData;
    int32_t m_iArrSize = 0;
    int32_t m_iCapacity = 0;
    int32_t m_iGrowStep = 1;
    T m_scratch{};
};

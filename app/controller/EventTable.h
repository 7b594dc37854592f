// The dispatcher's event-to-operation table: one row per current operation, one column per event.
#pragma once

#include "app/controller/ControllerEvents.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

class CEventTable {
public:
    // Every row is filled identically; the ON_PREVIOUS_STATE column starts at 0.
    CEventTable();

    // The operation the event starts while `current` is the current operation.
    int32_t Operation(int32_t current, int nEvent) const;
    // ON_PREVIOUS_STATE from `current` leads to `previous`.
    void SetPreviousState(int32_t current, int32_t previous);

private:
    std::array<std::array<int32_t, kEventCount>, kOperationCount> m_table{};
};

// The operations to return to after a round trip through the folder tree, partitions tree or
// about views from capture settings or full screen.
class CViewHistory {
public:
    void Push(int32_t operation) { m_stack.push_back(operation); }
    // False when empty.
    bool Pop(int32_t& operation);
    bool IsEmpty() const { return m_stack.empty(); }
    void Clear() { m_stack.clear(); }

private:
    std::vector<int32_t> m_stack;
};

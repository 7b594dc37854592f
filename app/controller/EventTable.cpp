#include "app/controller/EventTable.h"

CEventTable::CEventTable()
{
    for (auto& row : m_table) {
        for (int e = 0; e < kEventCount; ++e) {
            row[static_cast<size_t>(e)] = DefaultOperation(e);
        }
    }
}

int32_t CEventTable::Operation(int32_t current, int nEvent) const
{
    if (current < 0 || current >= kOperationCount || nEvent < 0 || nEvent >= kEventCount) {
        return 0;
    }
    return m_table[static_cast<size_t>(current)][static_cast<size_t>(nEvent)];
}

void CEventTable::SetPreviousState(int32_t current, int32_t previous)
{
    if (current < 0 || current >= kOperationCount) {
        return;
    }
    m_table[static_cast<size_t>(current)][ON_PREVIOUS_STATE] = previous;
}

bool CViewHistory::Pop(int32_t& operation)
{
    if (m_stack.empty()) {
        return false;
    }
    operation = m_stack.back();
    m_stack.pop_back();
    return true;
}

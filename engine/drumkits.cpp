#include "drumkits.h"

bool isStandardKit(quint8 program)
{
    constexpr int maxRows = 255;
    for (int row = 0; row < maxRows && drumKitTable[row].program != -1; ++row) {
        if (drumKitTable[row].program == program)
            return true;
    }
    return false;
}

bool fixProgramChange(std::array<quint8, 256> &eventBuf)
{
    if ((eventBuf[0] & 0xF0) != 0xC0 || isStandardKit(eventBuf[1]))
        return false;
    eventBuf[1] = replacementKit;
    return true;
}

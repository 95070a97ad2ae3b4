#include "engine/Variables.h"

#include "engine/TTransEvent.h"

namespace Tr {

namespace {

constexpr char kGroupLetters[] = "ghijklmnyz";
constexpr int kGroupSize = 36;

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

int groupOf(char letter) {
    for (int group = 0; kGroupLetters[group] != 0; ++group) {
        if (kGroupLetters[group] == letter)
            return group;
    }
    return -1;
}

} // namespace

int variableIndex(char first, char second) {
    first = lower(first);
    second = lower(second);
    if (first == second && first >= 'o' && first <= 'x')
        return first - 'o';
    const int group = groupOf(first);
    if (group < 0)
        return -1;
    int k;
    if (second >= 'a' && second <= 'z')
        k = second - 'a';
    else if (second >= '0' && second <= '9')
        k = 26 + (second - '0');
    else
        return -1;
    return kLocalVariableCount + kGroupSize * group + k;
}

int variableIndexAt(const Vorn::VString& text, int position) {
    if (position < 0 || position + 2 > text.length())
        return -1;
    return variableIndex(text.charAt(position), text.charAt(position + 1));
}

Vorn::VString variableName(int index) {
    if (index < 0 || index >= kVariableIndexCount)
        return Vorn::VString();
    char name[3] = {0, 0, 0};
    if (index < kLocalVariableCount) {
        name[0] = name[1] = static_cast<char>('o' + index);
    } else {
        const int group = (index - kLocalVariableCount) / kGroupSize;
        const int k = (index - kLocalVariableCount) % kGroupSize;
        name[0] = kGroupLetters[group];
        name[1] = static_cast<char>(k < 26 ? 'a' + k : '0' + (k - 26));
    }
    return Vorn::VString(name);
}

} // namespace Tr

#pragma once

#include <QtGlobal>

#include <array>

// A drum kit that players have: a Program Change on a rhythm channel may select it as it is.
struct DrumKitEntry
{
    qint32 program;  // Program Change number 0..127; -1 ends the table
    qint32 reserved; // 0, and -1 in the end marker
    char name[20];   // for people reading the table; the code never looks at it
};

inline constexpr DrumKitEntry drumKitTable[] = {
    {0, 0, "Standard Set1"},    {1, 0, "Standard Set2"},    {5, 0, "Standard Set3"},
    {6, 0, "Standard Set4"},    {7, 0, "Standard Set5"},    {2, 0, "R'n B Set"},
    {3, 0, "Hip-Hop Set"},      {4, 0, "Okydrum Set"},      {8, 0, "Room Set"},
    {16, 0, "Power Set"},       {24, 0, "Electronic Set1"}, {29, 0, "Electronic Set2"},
    {30, 0, "Electronic Set3"}, {25, 0, "TR-808 Set"},      {26, 0, "Dance Set1"},
    {28, 0, "Dance Set2"},      {27, 0, "Techno Set"},      {32, 0, "Jazz Set1"},
    {33, 0, "Jazz Set2"},       {40, 0, "Brush Set"},       {48, 0, "Orchestra Set"},
    {49, 0, "Ethnic Set1"},     {50, 0, "Ethnic Set2"},     {53, 0, "BD'n SD Set"},
    {56, 0, "Efx Set"},         {127, 0, "CM64/32 Set"},    {-1, -1, ""},
};

// The kit a rejected one becomes: Standard Set1, which every player has.
inline constexpr quint8 replacementKit = 0;

// Whether a Program Change on a rhythm channel may select this kit as it is: it is in
// drumKitTable (read up to its end marker, and never more than 255 rows).
bool isStandardKit(quint8 program);

// Given a Program Change on a rhythm channel as the song reader stores it (status at index 0,
// program at index 1): when its kit is not in drumKitTable, sets the program to replacementKit
// and returns true.
bool fixProgramChange(std::array<quint8, 256> &eventBuf);

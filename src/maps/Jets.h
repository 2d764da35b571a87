// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two overall fuel trims of the "Fuel Maps" page: the main jet and the
// idle jet (setup parameters MainJet and IdleJet). Each is a vertical track
// bar whose position is 255 - value, so the top of the bar is the largest value.

#include <optional>

namespace kyr::maps {

enum class Jet { Main, Idle };

/// A letter key's move of a jet's track bar position.
struct JetMove {
    Jet jet;
    int positionDelta; ///< added to the track bar position (the value moves the other way)
};

/// Smallest track bar position a key may reach: value 253, the highest raw
/// value the unit can keep (254 would read back as the absent marker).
constexpr int JetPositionMin = 2;
/// Largest track bar position: value 0.
constexpr int JetPositionMax = 255;

/// The jet letter keys, either case: Q -1, A +1, W -10, S +10 on the main jet;
/// D -1, C +1, F -10, V +10 on the idle jet; nullopt for any other key.
/// The caller lets these through only on the "Fuel Maps" page with no text
/// field focused.
std::optional<JetMove> jetKey(char key);

/// The setup table offset a jet is written to (WriteByte).
int jetOffset(Jet jet);

/// The jet value of a track bar position: 255 - position.
int jetValue(int position);

/// The track bar position after a key move, kept within JetPositionMin..JetPositionMax.
int movedJetPosition(int position, int delta);

} // namespace kyr::maps

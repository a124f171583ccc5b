#pragma once
// The resources carried inside the program (the tip picture and the icons) live in a static
// library, whose resources Qt registers only when asked to.

namespace ornivel {

// Registers the resources; safe to call any number of times.
void EnsureResources();

}  // namespace ornivel

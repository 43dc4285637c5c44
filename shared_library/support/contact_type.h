#pragma once

// Which contact row of the settings screen was tapped. Equality and hashing are the enum's own,
// by the case's position.
enum class ContactType { reportError, newFeature, contactUs };

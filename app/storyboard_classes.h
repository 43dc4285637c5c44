#pragma once

// Makes the application's screens, cells and components known to storyboards by class name.
// Call before the first storyboard is loaded; calling again changes nothing.
void registerStoryboardClasses();

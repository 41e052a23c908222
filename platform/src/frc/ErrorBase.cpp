// Placeholder while the robot library is written.

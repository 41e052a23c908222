// Placeholder while the HAL is written.

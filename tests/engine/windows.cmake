# The engine tests that build for Windows; cross-built, they run under Wine.

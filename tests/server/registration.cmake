# Tests of the registration script interpreter.

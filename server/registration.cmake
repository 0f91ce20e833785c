# The registration script interpreter and the registry scripts.

// kavrol-cli tests follow.

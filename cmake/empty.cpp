// Lets a module folder build before it has sources of its own.

namespace lumora { void magnifierLinked() {} }

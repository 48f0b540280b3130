namespace lumora { void fileopsLinked() {} }

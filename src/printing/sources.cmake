# Sources of src/printing (paths relative to the project root).

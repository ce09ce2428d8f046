// placeholder until the first window lands

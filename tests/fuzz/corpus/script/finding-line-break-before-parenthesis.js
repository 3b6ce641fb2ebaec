/s At
((3 / 4)At(2)) -= re.test(s) ? 1 : 0;
}

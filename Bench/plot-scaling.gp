# Draws the per-value times of quillmere_bench's TSV output against the number of elements (the
# configurations with M = 20).  gnuplot -e "tsv='bench.tsv'; png='scaling.png'" Bench/plot-scaling.gp
if (!exists("tsv")) tsv = 'bench.tsv'
if (!exists("png")) png = 'performance-scaling.png'
set terminal pngcairo size 900,560 noenhanced font ",10"
set output png
set datafile separator "\t"
set key below
set logscale x
set xrange [7000:450000]
set xtics ("10,000" 10000, "30,000" 30000, "100,000" 100000, "300,000" 300000)
set xlabel "elements N (M = 20 owned values each)"
set ylabel "ns per saved value (median)"
set yrange [0:*]
set grid
set title "Update command: the module's own time against the floor, per saved value"
m20(x) = (column(2) == 20 ? x : 1/0)
plot tsv skip 1 using (m20($1)):11 with linespoints lw 2 title "command, module's own", \
     ''  skip 1 using (m20($1)):13 with linespoints title "command, inside host services", \
     ''  skip 1 using (m20($1)):5 with linespoints title "backup, module's own", \
     ''  skip 1 using (m20($1)):6 with linespoints dt 2 title "floor write", \
     ''  skip 1 using (m20($1)):8 with linespoints title "restore, module's own", \
     ''  skip 1 using (m20($1)):9 with linespoints dt 2 title "floor read"
